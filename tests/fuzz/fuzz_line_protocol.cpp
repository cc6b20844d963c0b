// Control API lines come from anyone who can reach the port, signed in or not: whatever
// the bytes, reading them must not crash, what is read must survive quoting, and every
// answer must stay one line.
#include "remote/line_protocol.h"

#include <cstdint>
#include <cstdlib>

namespace {

void requireOneLine(const QString &text)
{
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const lineprotocol::Command command = lineprotocol::parse(line);
    if (command.errorCode != 0) {
        requireOneLine(lineprotocol::formatAnswer(RemoteAnswer::failure(command.errorCode, command.errorText)));
        return 0;
    }
    requireOneLine(lineprotocol::formatEvent(command.method, command.params));

    QStringList words;
    QString errorText;
    if (!lineprotocol::splitWords(line, &words, &errorText))
        std::abort();
    QStringList quoted;
    for (const QString &word : words)
        quoted << lineprotocol::quoteWord(word);
    QStringList again;
    if (!lineprotocol::splitWords(quoted.join(QLatin1Char(' ')), &again, &errorText) || again != words)
        std::abort();
    return 0;
}
