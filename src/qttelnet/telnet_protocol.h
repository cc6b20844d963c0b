#pragma once

#include <QtGlobal>

// The telnet byte values this client speaks (RFC 854, 855), the options it negotiates
// (RFC 1073, 1091, 2941) and the limits and texts it uses on the wire.
namespace telnet {

// Commands, each sent after Iac.
constexpr uchar Iac = 255;
constexpr uchar Dont = 254;
constexpr uchar Do = 253;
constexpr uchar Wont = 252;
constexpr uchar Will = 251;
constexpr uchar Sb = 250;
constexpr uchar Ga = 249;
constexpr uchar El = 248;
constexpr uchar Ec = 247;
constexpr uchar Ayt = 246;
constexpr uchar Ao = 245;
constexpr uchar Ip = 244;
constexpr uchar Brk = 243;
constexpr uchar Dm = 242;
constexpr uchar Se = 240;
constexpr uchar Abort = 238;
constexpr uchar Susp = 237;
constexpr uchar Eof = 236;

// Ends a text run; never part of what the owner sees.
constexpr uchar Nul = 0;

// Options.
constexpr uchar OptSga = 3;
constexpr uchar OptStatus = 5;
constexpr uchar OptLogout = 18;
constexpr uchar OptTtype = 24;
constexpr uchar OptNaws = 31;
constexpr uchar OptAuthentication = 37;

// Subnegotiation codes.
constexpr uchar SubIs = 0;
constexpr uchar SubSend = 1;

// Authentication type NULL (RFC 2941) and the modifier sent with it.
constexpr uchar AuthNull = 0;
constexpr uchar AuthNullModifier = 0;

// The terminal type the client reports: it interprets no escape sequences.
constexpr char TerminalType[] = "UNKNOWN";

// Default prompt patterns (regular-expression syntax, case sensitive).
constexpr char LoginPattern[] = "ogin:\\s*$";
constexpr char PasswordPattern[] = "assword:\\s*$";

// An unfinished command (in practice a subnegotiation whose IAC SE never comes) may wait
// for the rest of its bytes up to this size; past it the pending bytes are dropped.
constexpr int MaxPendingBytes = 64 * 1024;

} // namespace telnet
