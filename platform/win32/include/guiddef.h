/* GUID and DEFINE_GUID: declares the GUID, or defines it in the one
 * translation unit that includes <initguid.h> first. */
#ifndef RM7X0_GUIDDEF_H
#define RM7X0_GUIDDEF_H

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  unsigned int Data1;
  unsigned short Data2;
  unsigned short Data3;
  unsigned char Data4[8];
} GUID;
#endif

typedef GUID *LPGUID;
typedef const GUID *LPCGUID;

#ifdef __cplusplus
#define RM7X0_GUID_EXTERN extern "C"
#else
#define RM7X0_GUID_EXTERN extern
#endif

#endif

/* Outside the guard: <initguid.h> changes DEFINE_GUID after a first include. */
#undef DEFINE_GUID
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  RM7X0_GUID_EXTERN const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  RM7X0_GUID_EXTERN const GUID name
#endif
