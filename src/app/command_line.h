#pragma once

#include <QString>

// What the program was asked to do on its command line.
struct CommandLine
{
    bool help = false;
    bool version = false;
    // "/reset" in any case: wait for a copy that is restarting to end.
    bool reset = false;
    bool demo = false;
    bool headless = false;
    bool api = false;
    bool newApiToken = false;
    bool apiFingerprint = false;
    bool factoryDefault = false;
    // Null when not given.
    QString mqttBroker;
    QString site;
    // Where to write the file for support; null when not asked.
    QString diagnostics;
    // The audit trail file to check; null when not asked.
    QString verifyAudit;

    static CommandLine parse(int argc, char *argv[]);
    // The text --help prints, for the program named `program`.
    static QString usage(const QString &program);
};
