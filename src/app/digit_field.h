// Fields that take decimal digits only: the sample number (15), Delay (106)
// and Device Number (109).
#pragma once

class QLineEdit;

namespace j3 {

// Passes '0' .. '9', backspace (8) and the four arrow keys (28 .. 31); blocks
// every other character.
bool digit_key_filter(int character);

// Keys go through digit_key_filter; pasted text is held to digits as well.
void make_digit_field(QLineEdit* field);

}  // namespace j3
