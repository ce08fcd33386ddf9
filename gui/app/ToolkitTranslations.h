#pragma once

class QCoreApplication;

// The toolkit's own texts (standard buttons, file dialogs, context menus of fields) in
// Russian, the language of the program's windows, from the translations the toolkit ships
// (Debian package qt6-translations-l10n). Without them those texts stay English.
namespace ToolkitTranslations {

// Installs the translations for the application; false when they are not installed.
bool install(QCoreApplication &app);

} // namespace ToolkitTranslations
