#include "telnet_options.h"

#include "telnet_protocol.h"

uchar TelnetOptions::receive(uchar verb, uchar option, bool agree)
{
    // WILL and WONT speak of the peer's side, DO and DONT of ours.
    const Side side = verb == telnet::Will || verb == telnet::Wont ? Side::Remote : Side::Local;
    Entry &e = entry(side, option);
    const bool enable = verb == telnet::Will || verb == telnet::Do;
    return TelnetOptions::verb(side, enable ? enableReceived(e, agree) : disableReceived(e));
}

TelnetOptions::Reply TelnetOptions::enableReceived(Entry &entry, bool agree)
{
    switch (entry.state) {
    case State::No:
        if (!agree)
            return Reply::Disable;
        entry.state = State::Yes;
        return Reply::Enable;
    case State::Yes:
        return Reply::None;
    case State::WantNo:
        // An acceptance cannot answer our refusal; RFC 1143 takes the option as off, or as on
        // when we have asked for it again meanwhile.
        entry.state = entry.opposite ? State::Yes : State::No;
        entry.opposite = false;
        return Reply::None;
    case State::WantYes:
        if (!entry.opposite) {
            entry.state = State::Yes;
            return Reply::None;
        }
        entry.state = State::WantNo;
        entry.opposite = false;
        return Reply::Disable;
    }
    return Reply::None;
}

TelnetOptions::Reply TelnetOptions::disableReceived(Entry &entry)
{
    switch (entry.state) {
    case State::No:
        return Reply::None;
    case State::Yes:
        entry.state = State::No;
        return Reply::Disable;
    case State::WantNo:
        if (!entry.opposite) {
            entry.state = State::No;
            return Reply::None;
        }
        entry.state = State::WantYes;
        entry.opposite = false;
        return Reply::Enable;
    case State::WantYes:
        entry.state = State::No;
        entry.opposite = false;
        return Reply::None;
    }
    return Reply::None;
}

uchar TelnetOptions::request(Side side, uchar option, bool enable)
{
    Entry &e = entry(side, option);
    switch (e.state) {
    case State::No:
        if (!enable)
            return 0;
        e.state = State::WantYes;
        return verb(side, Reply::Enable);
    case State::Yes:
        if (enable)
            return 0;
        e.state = State::WantNo;
        return verb(side, Reply::Disable);
    case State::WantNo:
        e.opposite = enable;
        return 0;
    case State::WantYes:
        e.opposite = !enable;
        return 0;
    }
    return 0;
}

bool TelnetOptions::enabled(Side side, uchar option) const
{
    return entry(side, option).state == State::Yes;
}

void TelnetOptions::clear()
{
    local.fill(Entry());
    remote.fill(Entry());
}

TelnetOptions::Entry &TelnetOptions::entry(Side side, uchar option)
{
    return side == Side::Local ? local[option] : remote[option];
}

const TelnetOptions::Entry &TelnetOptions::entry(Side side, uchar option) const
{
    return side == Side::Local ? local[option] : remote[option];
}

uchar TelnetOptions::verb(Side side, Reply reply)
{
    switch (reply) {
    case Reply::None:
        return 0;
    case Reply::Enable:
        return side == Side::Local ? telnet::Will : telnet::Do;
    case Reply::Disable:
        return side == Side::Local ? telnet::Wont : telnet::Dont;
    }
    return 0;
}
