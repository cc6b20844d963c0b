#pragma once

#include <QStringList>

// One process standing in for a large installation on the test LAN: every address answers
// discovery for its share of the devices and serves a decoder shell on port 24 that keeps
// each decoder's source and notes, on standard output, when a route reaches it
// ("command MICROSECONDS LINE") and when an encoder command datagram arrives ("datagram
// MICROSECONDS PORT"), on the monotonic clock every namespace shares. Run it only inside
// the test LAN's namespaces: it answers broadcasts.
struct FleetPlan
{
    int decoders = 0;
    int encoders = 0;
    // The first columns x rows decoders form a wall, one to an address, so that the shell
    // on that address reports the decoder's place; the other devices share the remaining
    // addresses in turn.
    int wallColumns = 0;
    int wallRows = 0;
    // How long a decoder's shell takes over each command, as a decoder that switches its
    // picture does; the next command waits for the prompt in any case.
    int commandMs = 0;
    QStringList addresses;
};

// Runs until the process is ended; 1 when a socket cannot be set up.
int runFleet(const FleetPlan &plan);
