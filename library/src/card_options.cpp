#include "card_options.h"

CardOptions card_options;
