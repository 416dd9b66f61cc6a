#include "lib/net/MSocket.h"

bool MSocket::isClosed() { return false; }

void MSocket::bindSocket(int, const char*) {}

void MSocket::listenSocket(int) {}

void MSocket::openConnection(const char*, int) {}

MSocket* MSocket::acceptConnection() { return nullptr; }

void MSocket::closeConnection() {}

int MSocket::getSockfd() { return -1; }

int MSocket::getLocalPort() { return 0; }

MAddress MSocket::getLocalAddress() { return MAddress(); }

int MSocket::getRemotePort() { return 0; }

MAddress MSocket::getRemoteAddress() { return MAddress(); }

void MSocket::event_beforeClose() {}

void MSocket::shutdownOutput() {}

void MSocket::setNonBlocking(bool) {}
