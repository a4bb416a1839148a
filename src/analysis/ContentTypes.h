#pragma once

#include <QString>
#include <optional>

// Content types of files and names, as the intake reads them: MIME types from the shared MIME
// database, extensions by the rules of file names (a leading dot starts no extension).
class ContentTypes {
public:
    // The file's MIME type by name and, when the name does not tell, by content; nothing when the
    // database knows no type for it, or when the name holds a control character.
    static std::optional<QString> mimeTypeForFile(const QString& path);
    // C0 and C1 control characters, NUL and DEL included: no real file's name holds one.
    static bool hasControlCharacters(const QString& text);
    static bool isImageMimeType(const QString& mimeType);
    // "png" for "a.png", "gz" for "a.tar.gz", empty for ".bashrc", "README" and "name.".
    static QString pathExtension(const QString& fileName);
    // The MIME type a dropped image file gets from its lower-cased extension; "image/png" for
    // any extension not listed.
    static QString imageMimeTypeForExtension(const QString& lowerCasedExtension);
};
