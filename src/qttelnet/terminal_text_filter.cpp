#include "terminal_text_filter.h"

namespace {

constexpr ushort Bel = 0x07;
constexpr ushort Esc = 0x1b;
// The 8-bit forms of ESC [ and of the string terminator ESC \.
constexpr ushort Csi = 0x9b;
constexpr ushort St = 0x9c;

bool isIntermediate(ushort c)
{
    return c >= 0x20 && c <= 0x2f;
}

bool isParameterOrIntermediate(ushort c)
{
    return c >= 0x20 && c <= 0x3f;
}

bool isFinal(ushort c)
{
    return c >= 0x40 && c <= 0x7e;
}

// ESC followed by one of these opens a string (OSC, DCS, SOS, PM, APC) that runs to its
// terminator, a window title for example.
bool opensControlString(ushort c)
{
    return c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_';
}

} // namespace

QString TerminalTextFilter::filter(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar character : text) {
        const ushort c = character.unicode();
        switch (state) {
        case State::Text:
            if (c == Esc)
                state = State::Escape;
            else if (c == Csi)
                state = State::ControlSequence;
            else
                kept.append(character);
            break;
        case State::Escape:
            if (c == '[')
                state = State::ControlSequence;
            else if (opensControlString(c))
                state = State::ControlString;
            else if (!isIntermediate(c))
                state = State::Text;
            break;
        case State::ControlSequence:
            if (isFinal(c)) {
                state = State::Text;
            } else if (c == Esc) {
                state = State::Escape;
            } else if (!isParameterOrIntermediate(c)) {
                // Not a well-formed sequence: what follows is text again.
                state = State::Text;
                kept.append(character);
            }
            break;
        case State::ControlString:
            if (c == Esc)
                state = State::Escape;
            else if (c == Bel || c == St)
                state = State::Text;
            break;
        }
    }
    return kept;
}
