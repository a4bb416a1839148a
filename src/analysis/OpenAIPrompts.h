#pragma once

#include <QString>
#include <optional>

// The words the cloud model is given: one base system prompt per item kind, the block that
// weaves a kippet's sorting rule into it, and the screening prompt for such rules.
namespace OpenAIPrompts {
QString textSystem();
QString imageSystem();
QString codeSystem();
QString fileSystem();
QString linkSystem();
QString screening();

// base, followed by the custom-instructions block when instructions are present (even empty).
QString withInstructions(const QString& base, const std::optional<QString>& customInstructions);

QString textUser(const QString& text);
QString codeUser(const QString& code);
QString imageUser();
QString fileUser(const QString& name, const QString& fileExtension);
QString linkUser(const QString& urlString, const QString& title,
                 const std::optional<QString>& description);
QString screeningUser(const QString& instructions);
} // namespace OpenAIPrompts
