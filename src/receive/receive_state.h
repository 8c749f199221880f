// State of the running reception.
#pragma once

namespace j3 {

struct ReceiveState {};

}  // namespace j3
