// The SDS encoder's state for the item being sent.
#pragma once

namespace j3 {

struct SdsEncoder {};

}  // namespace j3
