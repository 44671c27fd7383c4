// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/CaptureStore.h"
#include "link/FrontEnd.h"
#include "link/LinkSession.h"

namespace fennow {

// How a transfer ended, with the values callers rely on. PortLost: the port itself
// failed or went away during the transfer (a card taken out, an adapter unplugged); the message
// names the cause.
enum class TransferStatus {
  Success = 0,
  SyncTimeout = 1,
  KeyExit = 2,
  AcknowledgeError = 3,
  PortLost = 4,
};

// Synchronises, asks the Game Boy for a transfer and receives the screen or data block it sends
// into the store, showing the way on the lamps and the bar and the outcome in a message.
// Payload bytes are stored a run at a time (one byte, or a tile row on a port that streams), and
// a run that did not all come stores nothing. A transfer that fails before it stores its first
// byte, a port lost during the first run included, leaves the store, kind and all, as it found
// it; once a byte is stored, a failure leaves kind None.
// Returns the outcome for callers that want it; the user has already been told.
TransferStatus StartTransfer(LinkSession& link, WindowServices& ui, CaptureStore& store);

}  // namespace fennow
