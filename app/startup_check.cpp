#include "startup_check.h"

#include "rm7x0_status.h"

const char* StartupRefusal(int16_t statusModelA, int16_t statusModelB, int cardCount) {
    static const char* const kNoCard =
        "No VEXA-RM720 and VEXA-RM730 is available on your system, please check the system";
    if (statusModelA == ERROR_NO_CARD_FOUND && statusModelB == ERROR_NO_CARD_FOUND) return kNoCard;
    if (statusModelA == ERROR_CARD_ID_DUPLICATED)
        return "Multiple VEXA-RM720 Cards are assigned identical ID, please check the system";
    if (statusModelB == ERROR_CARD_ID_DUPLICATED)
        return "Multiple VEXA-RM730 Cards are assigned identical ID, please check the system";
    if (cardCount < 1) return kNoCard;
    return nullptr;
}
