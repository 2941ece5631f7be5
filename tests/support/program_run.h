#pragma once

#include "support/temp_folder.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

// The real program started as a process in a working folder of its own, with its profile,
// runtime folder (single-instance lock) and message log kept inside that folder.
class ProgramRun {
  public:
    explicit ProgramRun(const TempFolder& home);
    ~ProgramRun();

    // The program shows its message boxes on the screen instead of logging them, for tests that
    // answer them there.
    void AnswerMessagesOnScreen();
    // Starts the program and waits until its tray icon is on the screen.
    bool Start(const QStringList& arguments = {});
    // Runs the program to its end (for starts that are refused), returning its exit code.
    int RunToEnd(int timeoutMs = 15000);
    // Waits for the process to end; -1 when it did not.
    int WaitForExit(int timeoutMs = 10000);
    bool Running() const { return process_.state() != QProcess::NotRunning; }
    // The messages the program showed, one "caption|text" per line.
    QString Messages() const;
    // The program's own viewable windows (never those of the test process itself).
    std::vector<unsigned long> Windows() const;
    // The tray icon's window on the screen, or 0.
    unsigned long TrayIconWindow() const;
    // Chooses an item of the tray menu by moving down `downPresses` times from the top, or by
    // the keys given once the menu is up.
    void ChooseTrayMenuItem(int downPresses);
    void ChooseTrayMenuItem(const QStringList& keys);

    QProcess& process() { return process_; }

  private:
    const TempFolder& home_;
    QProcess process_;
};
