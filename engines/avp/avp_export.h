// avp_export: marks the entry points of the stand-in engines as the only
// symbols their libraries export (everything else is built hidden).
#pragma once

#define AVP_EXPORT extern "C" __attribute__((visibility("default")))
