// TCP connections: the handle table of type 9 and the network message pump
// that steps every connection once per PumpMessages.
#ifndef TESSEL_NET_TCP_H
#define TESSEL_NET_TCP_H

constexpr int TcpCapacity = 256;
// Reading from a socket stops while this much waits unread, so a program
// that does not read holds its peer back instead of filling memory.
constexpr int TcpReceiveLimit = 4 * 1024 * 1024;
// A closed connection has this long from CloseTcp to send what was queued
// and see its peer end its side; then it is reset.
constexpr int TcpLingerMs = 5000;
// Closed connections still lingering at most; past it the oldest is reset.
constexpr int TcpDrainingMax = 256;

// Starts networking and registers the network hooks of the pump; ends it,
// closing every connection and the listener.
int InitTcp();
void EndTcp();

#endif
