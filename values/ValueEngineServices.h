#pragma once
// What the value tables ask of the value engine while they answer a query: the
// value of another name, recording a result code, and storing a default given as
// text. The engine implements it; the tables see only this, so they build and
// test without it.
//
// Results go into the caller's CDataMap: the value under its name, the collected
// result-code bits under "ErrCode" (int) and their texts under "ErrStr".

#include "foundation/DataMap.h"

#include <string_view>

// The result-code bits of a value query.
enum ValueResultCode : int {
    kValueResultSuccess = 0,                   // "Success"
    kValueResultFailed = 1,                    // "Failed"
    kValueResultFunctionErr = 2,               // "Function Err"
    kValueResultNameNotFound = 4,              // "Value Name not found"
    kValueResultNotAvailable = 8,              // "Value not avaliable"
    kValueResultRootNotFound = 16,             // "Root Value not found"
    kValueResultRootNotAvailable = 32,         // "Root Value not available"
    kValueResultRowNotFound = 64,              // "Row Value not found"
    kValueResultRowNotAvailable = 128,         // "Row Value not available"
    kValueResultAppliedNotFound = 256,         // "Applied Value not found"
    kValueResultAppliedNotAvailable = 512,     // "Applied Value not available"
    kValueResultDerivedNotFound = 1024,        // "Derived Value not found"
    kValueResultDerivedNotAvailable = 2048,    // "Derived Value not available"
    kValueResultAttributeNotFound = 4096,      // "Value Name Attribute not found"
};

class CValueEngineServices {
public:
    virtual ~CValueEngineServices() = default;

    // The value called name into result; 1 on success, 0 otherwise (with its
    // result-code bits in result).
    virtual int GetValue(std::string_view name, CDataMap& result) = 0;
    // Records a result code in result: 0 resets "ErrCode" and "ErrStr" to success,
    // any other code adds its bit and its text.
    virtual void SetError(int code, CDataMap& result) = 0;
    // Stores text under name in result, converted by the type id: 2 int, 3 double,
    // 13 date-time; any other type stores nothing. Returns 1.
    virtual int SetValueFromText(CDataMap& result, std::string_view name, std::string_view text, int typeId) = 0;
};
