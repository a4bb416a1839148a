#include "analysis/HeuristicAnalyzer.h"

#include <QUrl>

namespace {
struct ExtensionGroup {
    QStringList extensions;
    ItemCategory category;
    QString prefix;
    QStringList tags;
    bool tagsExtension;
};

// Checked in this order; the first group that lists the lower-cased extension wins.
const std::vector<ExtensionGroup>& extensionGroups() {
    static const std::vector<ExtensionGroup> groups{
        {{"pdf"}, ItemCategory::pdfs, "PDF: ", {"pdf", "document"}, false},
        {{"xls", "xlsx", "csv", "numbers", "ods"},
         ItemCategory::spreadsheets,
         "Spreadsheet: ",
         {"spreadsheet", "data"},
         true},
        {{"ppt", "pptx", "key", "odp"},
         ItemCategory::presentations,
         "Presentation: ",
         {"presentation"},
         true},
        {{"sketch", "fig", "xd", "psd", "ai", "indd", "affinity"},
         ItemCategory::designAssets,
         "Design file: ",
         {"design", "asset"},
         true},
        {{"doc", "docx", "txt", "md", "rtf", "pages", "odt"},
         ItemCategory::documents,
         "Document: ",
         {"document"},
         true},
        {{"png", "jpg", "jpeg", "gif", "svg", "webp", "bmp", "tiff", "heic", "ico"},
         ItemCategory::images,
         "Image: ",
         {"image"},
         true},
        {{"swift", "py",   "js", "ts",   "jsx",  "tsx", "html", "css", "scss", "sass",
          "less",  "java", "kt", "c",    "cpp",  "h",   "hpp",  "cs",  "go",   "rs",
          "rb",    "php",  "sh", "bash", "json", "xml", "yaml", "yml", "toml", "sql"},
         ItemCategory::code,
         "Code: ",
         {"code"},
         true},
        {{"mp4", "mov", "avi", "mkv", "mp3", "wav", "m4a", "flac", "aac"},
         ItemCategory::media,
         "Media: ",
         {"media"},
         true},
        {{"zip", "rar", "7z", "tar", "gz", "dmg", "pkg"},
         ItemCategory::archives,
         "Archive: ",
         {"archive"},
         true},
        {{"ttf", "otf", "woff", "woff2"},
         ItemCategory::designAssets,
         "Font: ",
         {"font", "typography"},
         true},
        {{"obj", "fbx", "dae", "stl", "blend", "c4d"},
         ItemCategory::designAssets,
         "3D model: ",
         {"3d", "model"},
         true},
    };
    return groups;
}

const ExtensionGroup& otherFiles() {
    static const ExtensionGroup group{{}, ItemCategory::uncategorized, "File: ", {"file"}, true};
    return group;
}

ContentAnalysis byType(ItemCategory category, const QString& description, const QStringList& tags,
                       double confidence = 1.0) {
    ContentAnalysis analysis;
    analysis.category = category;
    analysis.description = description;
    analysis.tags = tags;
    analysis.confidence = confidence;
    return analysis;
}

// The host as the link spells it (QUrl lower-cases hosts), or "website" when there is none.
QString linkHost(const std::optional<QString>& urlString) {
    const QString fallback = QStringLiteral("website");
    if (!urlString)
        return fallback;
    const QUrl url(*urlString, QUrl::StrictMode);
    const QString host = url.host();
    if (!url.isValid() || host.isEmpty())
        return fallback;
    const qsizetype at = urlString->indexOf(host, 0, Qt::CaseInsensitive);
    return at < 0 ? host : urlString->mid(at, host.size());
}
} // namespace

ContentAnalysis heuristicFileAnalysis(const KippetItem& item) {
    const QString extension = item.metadata.fileExtension.value_or(QString());
    const QString lowered = extension.toLower();
    const ExtensionGroup* match = &otherFiles();
    for (const ExtensionGroup& group : extensionGroups()) {
        if (group.extensions.contains(lowered)) {
            match = &group;
            break;
        }
    }
    QStringList tags = match->tags;
    if (match->tagsExtension)
        tags.append(extension);
    return byType(match->category, match->prefix + item.metadata.name, tags, 0.8);
}

ContentAnalysis heuristicAnalysis(const KippetItem& item) {
    const QString& name = item.metadata.name;
    switch (item.type) {
    case KippetItemType::text:
    case KippetItemType::note:
        return byType(ItemCategory::notes, QStringLiteral("Note"), {"note", "text"});
    case KippetItemType::url:
        return byType(ItemCategory::links,
                      QStringLiteral("Web link: ") + linkHost(item.metadata.urlString),
                      {"link", "url", "website"});
    case KippetItemType::image:
        return byType(ItemCategory::images, QStringLiteral("Image: ") + name, {"image"});
    case KippetItemType::color:
        return byType(ItemCategory::colors, QStringLiteral("Color swatch"), {"color", "design"});
    case KippetItemType::code:
        return byType(ItemCategory::code, QStringLiteral("Code: ") + name, {"code"});
    case KippetItemType::file:
        return heuristicFileAnalysis(item);
    case KippetItemType::unknown:
        break;
    }
    return byType(ItemCategory::uncategorized, QStringLiteral("Unknown content"), {}, 0.0);
}

QCoro::Task<ContentAnalysis> HeuristicAnalyzer::analyze(KippetItem item,
                                                        std::optional<QString> customInstructions) {
    Q_UNUSED(customInstructions);
    co_return heuristicAnalysis(item);
}

QCoro::Task<QString> HeuristicAnalyzer::sanitize(QString instructions) {
    co_return instructions;
}
