// What the application sets up before its first window: Japanese texts of Qt's own buttons, and the fonts
// the windows are designed in.
#pragma once

class QApplication;

void SetUpApplication(QApplication& app);
