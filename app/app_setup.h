// Application-wide start-up: the title, the language of the texts and that
// of the toolkit's own buttons.
#pragma once

#include <string>

class QApplication;
class QIcon;

// The application's id: the name of its desktop entry without ".desktop".
inline constexpr char DesktopId[] = "org.zandrel.Zandrel";

// The version shown after the application title in the window caption.
inline constexpr char Version[] = "beta 4";

// Sets the application title to "zandrel" and puts the language in force:
// `language` when given (--lang), else the one the environment chooses
// (i18n/language.h).
void InitApplication(QApplication& app, const std::string& language = {});

// Puts `language` in force for the window and the engine. Under Japanese
// (and any language without a catalog) the texts are the source's and Qt's
// Japanese translation is installed, so that message boxes read はい/いいえ,
// 中止/無視, OK; under another language its catalog is installed and Qt's
// own translation of that language when there is one (English needs none).
// Controls made before keep their texts.
void ApplyLanguage(const std::string& language);

// The program's icon in every size it comes in.
QIcon ProgramIcon();
