// FFT tables and transforms.
#pragma once

namespace j3 {

struct FftTables {};

}  // namespace j3
