#include "format/item_choices.h"

namespace j3 {

const char* loop_title(int32_t value) {
    switch (value) {
        case kLoopFile:
            return "Loop:File";
        case kLoopOn:
            return "Loop On";
        case kLoopOff:
            return "Loop Off";
    }
    return "";
}

const char* stereo_title(int32_t value) {
    switch (value) {
        case kStereoMix:
            return "L + R";
        case kStereoLeft:
            return "Left";
        case kStereoRight:
            return "Right";
    }
    return "";
}

}  // namespace j3
