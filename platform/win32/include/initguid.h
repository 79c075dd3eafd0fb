/* Include before the headers whose DEFINE_GUIDs this translation unit defines. */
#define INITGUID
#include <guiddef.h>
