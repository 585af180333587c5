#pragma once
// The A-law and µ-law sample codes of the G.711 companding laws, as the
// codec manager's A-law/µ-law driver uses them (8-bit codes, 16-bit linear
// samples). Exposed for the tests of known code values.
//
// Threads: pure functions.

#include <cstdint>

namespace zt::acm {

uint8_t LinearToALaw(int16_t sample);
int16_t ALawToLinear(uint8_t code);
uint8_t LinearToMuLaw(int16_t sample);
int16_t MuLawToLinear(uint8_t code);

}  // namespace zt::acm
