#pragma once

#include <QObject>
#include <QString>

// The system's own file chooser for the window, for files the user keeps outside the
// program (a configuration to take to another PC). Whether a chosen file may be replaced is
// asked by the page in its own words, not by the chooser.
class FilePicker : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The chosen path, or empty when the user cancelled; `suggested` is where it starts.
    Q_INVOKABLE QString fileToWrite(const QString &title, const QString &suggested) const;
    Q_INVOKABLE QString fileToRead(const QString &title, const QString &suggested) const;

private:
    static QString filter();
};
