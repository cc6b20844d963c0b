#pragma once

#include <QtGlobal>

#include <array>

// The option state of one connection, kept by RFC 1143's Q method: each side of each option
// is off, on, or waiting for the answer to a request, with at most one change of mind queued
// behind that request. So an answer is never taken for a new request, a request is never
// swallowed for looking like an earlier answer, and no two peers can loop.
class TelnetOptions
{
public:
    // Local: what we do (we send WILL/WONT, the peer DO/DONT). Remote: what the peer does.
    enum class Side { Local, Remote };

    // The verb to answer a received WILL, WONT, DO or DONT with, 0 when nothing is due.
    // `agree` says whether we let the option be enabled when the peer asks for it.
    uchar receive(uchar verb, uchar option, bool agree);
    // Asks for an option to be enabled or disabled: the verb to send, 0 when nothing is to be
    // sent now (already so, or queued behind a request in flight).
    uchar request(Side side, uchar option, bool enable);
    bool enabled(Side side, uchar option) const;
    // Back to every option off, nothing pending: a new connection.
    void clear();

private:
    enum class State : uchar { No, Yes, WantNo, WantYes };
    struct Entry
    {
        State state = State::No;
        // A request for the opposite of the one in flight, to be sent once it is answered.
        bool opposite = false;
    };
    enum class Reply { None, Enable, Disable };

    static Reply enableReceived(Entry &entry, bool agree);
    static Reply disableReceived(Entry &entry);
    Entry &entry(Side side, uchar option);
    const Entry &entry(Side side, uchar option) const;
    static uchar verb(Side side, Reply reply);

    std::array<Entry, 256> local {};
    std::array<Entry, 256> remote {};
};
