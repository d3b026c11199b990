// The library's result codes for an operator: the name and meaning the
// library gives each (svcproc/api/ServiceCodeText.h), and what to check.
#pragma once

#include "svcproc/api/ServiceCode.h"

struct ServiceCodeAdvice {
    const char* name;     // short, stable identifier (also used in JSON)
    const char* meaning;  // one sentence
    const char* advice;   // what to check; "" for success
};

ServiceCodeAdvice DescribeServiceCode(SERVICE_CODE code);
