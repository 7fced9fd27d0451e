// Internal: makes the calling thread read and write numbers as in the "C" locale (a dot as the
// decimal point) for the lifetime of the object, and restores the thread's locale afterwards.
#pragma once
#include <locale.h>

namespace qel {

class CNumericScope {
public:
    CNumericScope();
    ~CNumericScope();
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace qel
