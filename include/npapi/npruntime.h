/* NPAPI scripting: objects, classes, variants and identifiers. */
#ifndef NPAPI_NPRUNTIME_H
#define NPAPI_NPRUNTIME_H

#include <stdint.h>
#include <string.h>

#include "npapi/npapi.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

typedef char NPUTF8;

/* Strings are UTF-8 bytes with a length and no terminating zero. */
typedef struct _NPString {
  const NPUTF8* UTF8Characters;
  uint32_t UTF8Length;
} NPString;

typedef enum {
  NPVariantType_Void = 0,
  NPVariantType_Null = 1,
  NPVariantType_Bool = 2,
  NPVariantType_Int32 = 3,
  NPVariantType_Double = 4,
  NPVariantType_String = 5,
  NPVariantType_Object = 6
} NPVariantType;

typedef struct NPObject NPObject;
typedef struct NPClass NPClass;

typedef struct _NPVariant {
  NPVariantType type;
  union {
    bool boolValue;
    int32_t intValue;
    double doubleValue;
    NPString stringValue;
    NPObject* objectValue;
  } value;
} NPVariant;

/* Identifiers are opaque handles that the browser interns: two requests for
 * the same name or number give the same handle. */
typedef void* NPIdentifier;

typedef NPObject* (*NPAllocateFunctionPtr)(NPP npp, NPClass* aClass);
typedef void (*NPDeallocateFunctionPtr)(NPObject* npobj);
typedef void (*NPInvalidateFunctionPtr)(NPObject* npobj);
typedef bool (*NPHasMethodFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPInvokeFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                    const NPVariant* args, uint32_t argCount,
                                    NPVariant* result);
typedef bool (*NPInvokeDefaultFunctionPtr)(NPObject* npobj, const NPVariant* args,
                                           uint32_t argCount, NPVariant* result);
typedef bool (*NPHasPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPGetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                         NPVariant* result);
typedef bool (*NPSetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                         const NPVariant* value);
typedef bool (*NPRemovePropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool (*NPEnumerationFunctionPtr)(NPObject* npobj, NPIdentifier** value,
                                         uint32_t* count);
typedef bool (*NPConstructFunctionPtr)(NPObject* npobj, const NPVariant* args,
                                       uint32_t argCount, NPVariant* result);

#define NP_CLASS_STRUCT_VERSION 3
#define NP_CLASS_STRUCT_VERSION_ENUM 2
#define NP_CLASS_STRUCT_VERSION_CTOR 3

struct NPClass {
  uint32_t structVersion;
  NPAllocateFunctionPtr allocate;
  NPDeallocateFunctionPtr deallocate;
  NPInvalidateFunctionPtr invalidate;
  NPHasMethodFunctionPtr hasMethod;
  NPInvokeFunctionPtr invoke;
  NPInvokeDefaultFunctionPtr invokeDefault;
  NPHasPropertyFunctionPtr hasProperty;
  NPGetPropertyFunctionPtr getProperty;
  NPSetPropertyFunctionPtr setProperty;
  NPRemovePropertyFunctionPtr removeProperty;
  NPEnumerationFunctionPtr enumerate;
  NPConstructFunctionPtr construct;
};

/* Every scriptable object starts with this header; a class that needs more
 * state allocates a larger record that begins with it. */
struct NPObject {
  NPClass* _class;
  uint32_t referenceCount;
};

#define NPVARIANT_IS_VOID(v) ((v).type == NPVariantType_Void)
#define NPVARIANT_IS_NULL(v) ((v).type == NPVariantType_Null)
#define NPVARIANT_IS_BOOLEAN(v) ((v).type == NPVariantType_Bool)
#define NPVARIANT_IS_INT32(v) ((v).type == NPVariantType_Int32)
#define NPVARIANT_IS_DOUBLE(v) ((v).type == NPVariantType_Double)
#define NPVARIANT_IS_STRING(v) ((v).type == NPVariantType_String)
#define NPVARIANT_IS_OBJECT(v) ((v).type == NPVariantType_Object)

#define NPVARIANT_TO_BOOLEAN(v) ((v).value.boolValue)
#define NPVARIANT_TO_INT32(v) ((v).value.intValue)
#define NPVARIANT_TO_DOUBLE(v) ((v).value.doubleValue)
#define NPVARIANT_TO_STRING(v) ((v).value.stringValue)
#define NPVARIANT_TO_OBJECT(v) ((v).value.objectValue)

/* The setters clear the whole value first so that no stale bytes of a wider
 * member survive in the union. */
#define VOID_TO_NPVARIANT(v)                \
  do {                                      \
    memset(&(v).value, 0, sizeof((v).value)); \
    (v).type = NPVariantType_Void;          \
  } while (0)
#define NULL_TO_NPVARIANT(v)                \
  do {                                      \
    memset(&(v).value, 0, sizeof((v).value)); \
    (v).type = NPVariantType_Null;          \
  } while (0)
#define BOOLEAN_TO_NPVARIANT(val, v)        \
  do {                                      \
    memset(&(v).value, 0, sizeof((v).value)); \
    (v).type = NPVariantType_Bool;          \
    (v).value.boolValue = !!(val);          \
  } while (0)
#define INT32_TO_NPVARIANT(val, v)          \
  do {                                      \
    memset(&(v).value, 0, sizeof((v).value)); \
    (v).type = NPVariantType_Int32;         \
    (v).value.intValue = (int32_t)(val);    \
  } while (0)
#define DOUBLE_TO_NPVARIANT(val, v)         \
  do {                                      \
    memset(&(v).value, 0, sizeof((v).value)); \
    (v).type = NPVariantType_Double;        \
    (v).value.doubleValue = (double)(val);  \
  } while (0)
/* chars need not be terminated; len is the byte count. */
#define STRINGN_TO_NPVARIANT(chars, len, v)                 \
  do {                                                      \
    memset(&(v).value, 0, sizeof((v).value));               \
    (v).type = NPVariantType_String;                        \
    (v).value.stringValue.UTF8Characters = (chars);         \
    (v).value.stringValue.UTF8Length = (uint32_t)(len);     \
  } while (0)
#define STRINGZ_TO_NPVARIANT(chars, v) \
  STRINGN_TO_NPVARIANT((chars), strlen(chars), v)
#define OBJECT_TO_NPVARIANT(obj, v)         \
  do {                                      \
    memset(&(v).value, 0, sizeof((v).value)); \
    (v).type = NPVariantType_Object;        \
    (v).value.objectValue = (obj);          \
  } while (0)

#ifdef __cplusplus
}
#endif

NPAPI_STATIC_ASSERT(sizeof(NPString) == 16, "NPString");
NPAPI_STATIC_ASSERT(sizeof(NPVariant) == 24, "NPVariant");
NPAPI_STATIC_ASSERT(offsetof(NPVariant, value) == 8, "NPVariant.value");
NPAPI_STATIC_ASSERT(sizeof(NPObject) == 16, "NPObject");
NPAPI_STATIC_ASSERT(offsetof(NPObject, referenceCount) == 8, "NPObject.referenceCount");
NPAPI_STATIC_ASSERT(sizeof(NPClass) == 104, "NPClass");
NPAPI_STATIC_ASSERT(offsetof(NPClass, allocate) == 8, "NPClass.allocate");
NPAPI_STATIC_ASSERT(offsetof(NPClass, invoke) == 40, "NPClass.invoke");
NPAPI_STATIC_ASSERT(offsetof(NPClass, getProperty) == 64, "NPClass.getProperty");
NPAPI_STATIC_ASSERT(offsetof(NPClass, enumerate) == 88, "NPClass.enumerate");
NPAPI_STATIC_ASSERT(offsetof(NPClass, construct) == 96, "NPClass.construct");

#endif
