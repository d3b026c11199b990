// Words for the library's result codes: what each means and what to check.
#pragma once

#include <string>

#include "svcproc/api/ServiceCode.h"

struct ServiceCodeText {
    const char* name;     // short, stable identifier (also used in JSON)
    const char* meaning;  // one sentence
    const char* advice;   // what to check
};

ServiceCodeText DescribeServiceCode(SERVICE_CODE code);
