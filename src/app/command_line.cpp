#include "app/command_line.h"

#include <cstring>

CommandLine CommandLine::parse(int argc, char *argv[])
{
    CommandLine options;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char *argument = argv[i];
        const bool hasValue = i + 1 < argc && argv[i + 1];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
            options.help = true;
        else if (std::strcmp(argument, "--version") == 0)
            options.version = true;
        else if (QString::fromLocal8Bit(argument).toLower() == QLatin1String("/reset"))
            options.reset = true;
        else if (std::strcmp(argument, "--demo") == 0)
            options.demo = true;
        else if (std::strcmp(argument, "--headless") == 0)
            options.headless = true;
        else if (std::strcmp(argument, "--api") == 0)
            options.api = true;
        else if (std::strcmp(argument, "--new-api-token") == 0)
            options.newApiToken = true;
        else if (std::strcmp(argument, "--api-fingerprint") == 0)
            options.apiFingerprint = true;
        else if (std::strcmp(argument, "--factory-default") == 0)
            options.factoryDefault = true;
        else if (std::strcmp(argument, "--mqtt") == 0 && hasValue)
            options.mqttBroker = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argument, "--site") == 0 && hasValue)
            options.site = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argument, "--diagnostics") == 0 && hasValue)
            options.diagnostics = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argument, "--verify-audit") == 0 && hasValue)
            options.verifyAudit = QString::fromLocal8Bit(argv[++i]);
    }
    return options;
}

QString CommandLine::usage(const QString &program)
{
    return QStringLiteral("Usage: %1 [/reset] [--demo] [--headless] [--api] [--mqtt HOST[:PORT]] [--site NAME] "
                          "[--new-api-token] [--api-fingerprint] [--diagnostics FILE] [--verify-audit FILE] [--factory-default] "
                          "[--version] [--help]\n"
                          "Controls the encoders and decoders of an AV-over-IP installation on this LAN.\n\n"
                          "  /reset             wait up to 6 seconds for a previous copy that is restarting to end\n"
                          "  --demo             show a made-up installation instead of searching the LAN\n"
                          "  --headless         run as a service without a window: discovery and the control API\n"
                          "  --api              switch the control API on, whatever the settings say\n"
                          "  --mqtt HOST[:PORT] publish to the MQTT broker HOST (port 1883 unless given)\n"
                          "  --site NAME        the site's name on the broker (default: the host name)\n"
                          "  --new-api-token    make a new control API token, print it once and end\n"
                          "  --api-fingerprint  print the SHA-256 fingerprint of the control API's TLS certificate\n"
                          "                     (made now when the controller has none yet) and end\n"
                          "  --diagnostics FILE write the file for support (log, settings without secrets) and end\n"
                          "  --verify-audit FILE check that no line of the audit trail FILE was removed, changed\n"
                          "                     or moved; says where its chain breaks, exit code 1 if it does\n"
                          "  --factory-default  delete the settings (password included) and start afresh\n"
                          "  --version          print the product name and version\n"
                          "  --help             print this help\n\n"
                          "Log: ~/.zentrova/zentrova.log  Settings: ~/.zentrova/config.json  "
                          "Audit trail: ~/.zentrova/audit.jsonl\n"
                          "Beside the program: custom.json (branding), lang.cfg (en_US, zh_CN or zh_TW)\n")
        .arg(program);
}
