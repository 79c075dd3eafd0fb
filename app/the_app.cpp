// The program's one application object.
#include "kavrel_app.h"

CKavrelApp theApp;
