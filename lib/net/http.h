// HTTP downloads: the library's side of the platform's HTTP client.
#ifndef TESSEL_NET_HTTP_H
#define TESSEL_NET_HTTP_H

#include "core/handle.h"
#include "tessel/net.h"

constexpr int HttpCapacity = 256;
extern HandleTable gHttpTable;

// Called by InitLibrary and EndLibrary; the end closes every request.
int InitHttp();
void EndHttp();

#endif
