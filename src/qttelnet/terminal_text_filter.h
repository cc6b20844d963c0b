#pragma once

#include <QString>

// Takes terminal control sequences (ECMA-48: escape sequences, control sequences and
// control strings) out of a shell's output. The client reports a terminal type that
// interprets none, yet shells with line editing send them anyway, for example a cursor
// position query after every prompt, which would hide the prompt at the end of the text.
// A sequence split across reads is taken out as a whole.
class TerminalTextFilter
{
public:
    QString filter(const QString &text);
    // Forgets a sequence begun but not ended.
    void reset() { state = State::Text; }

private:
    enum class State { Text, Escape, ControlSequence, ControlString };
    State state = State::Text;
};
