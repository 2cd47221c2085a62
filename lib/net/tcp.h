// TCP connections: the handle table of type 9 and the network message pump
// that steps every connection once per PumpMessages.
#ifndef TESSEL_NET_TCP_H
#define TESSEL_NET_TCP_H

constexpr int TcpCapacity = 256;
// Reading from a socket stops while this much waits unread, so a program
// that does not read holds its peer back instead of filling memory.
constexpr int TcpReceiveLimit = 4 * 1024 * 1024;
// After a closed connection's queue has gone out, the peer is given this
// long to end its side before the socket is dropped.
constexpr int TcpLingerMs = 5000;

// Starts networking and installs the network message pump; ends it,
// closing every connection and the listener.
int InitTcp();
void EndTcp();
// One step of every connection: resolution, connecting, accepting, sending
// and receiving, without waiting.
void PumpTcp();

#endif
