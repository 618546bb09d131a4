// What `velmor [PATH...]` was asked to do: open the window (with or without a
// file), print the help or the version, or refuse the arguments.
#pragma once

#include <QString>
#include <QStringList>

enum class LaunchAction { open_window, print_help, print_version, refuse };

struct LaunchOptions {
    LaunchAction action = LaunchAction::open_window;
    QString file;      // open_window: the one file to open (absolute path), or empty
    QStringList paths; // open_window: a folder or several files, opened as a set
    QString error;     // refuse: why, one line
};

// arguments as QCoreApplication::arguments() gives them, program name first.
// Needs no application object.
LaunchOptions read_command_line(const QStringList& arguments);

// The --help text. Needs a QCoreApplication (it names the program).
QString command_line_help();

// "velmor 0.2.0".
QString version_line();
