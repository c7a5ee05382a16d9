// Application-wide start-up: the title and the Japanese texts of the
// toolkit's own buttons.
#pragma once

class QApplication;
class QIcon;

// The application's id: the name of its desktop entry without ".desktop".
inline constexpr char DesktopId[] = "org.zandrel.Zandrel";

// The version shown after the application title in the window caption.
inline constexpr char Version[] = "beta 4";

// Sets the application title to "zandrel" and installs Qt's Japanese
// translation, so that message boxes read はい/いいえ, 中止/無視, OK.
void InitApplication(QApplication& app);

// The program's icon in every size it comes in.
QIcon ProgramIcon();
