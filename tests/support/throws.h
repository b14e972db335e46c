// The framework throws its exceptions by pointer, and a caught one must be freed with its
// Delete (static instances ignore it). These helpers catch them, free them properly and
// fail the test on anything else.
#pragma once

#include "framework/exceptions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

namespace qmtest {

template <class E>
struct ExceptionDeleter {
    void operator()(E* e) const { e->Delete(); }
};
template <class E>
using Caught = std::unique_ptr<E, ExceptionDeleter<E>>;

// The runtime class name of an exception of the family.
std::string ExceptionClassName(const CException* e);

// Runs `action`; the E* it threw (freed when the result goes), or null when it threw nothing.
// An exception of another class of the family fails the test and gives null.
template <class E, class F>
Caught<E> Thrown(F&& action)
{
    if constexpr (std::is_same_v<E, CException>) {
        try {
            std::forward<F>(action)();
        } catch (CException* e) {
            return Caught<E>(e);
        }
    } else {
        try {
            std::forward<F>(action)();
        } catch (E* e) {
            return Caught<E>(e);
        } catch (CException* e) {
            ADD_FAILURE() << "threw " << ExceptionClassName(e) << " instead";
            e->Delete();
        }
    }
    return Caught<E>();
}

// The runtime class name of what `action` threw, "" when it threw nothing.
template <class F>
std::string ThrownClass(F&& action)
{
    Caught<CException> e = Thrown<CException>(std::forward<F>(action));
    return e ? ExceptionClassName(e.get()) : std::string();
}

// The m_cause of the E* (an archive or file exception) `action` threw, -1 when it threw none.
template <class E, class F>
int CauseOf(F&& action)
{
    Caught<E> e = Thrown<E>(std::forward<F>(action));
    return e ? static_cast<int>(e->m_cause) : -1;
}

}  // namespace qmtest

// The statement throws `type*` (or a class derived from it); the exception is freed.
// More text for the failure message can be streamed in, as with the other checks.
#define EXPECT_THROWS_PTR(statement, type) QM_THROWS_PTR_(statement, type, ADD_FAILURE)
#define ASSERT_THROWS_PTR(statement, type) QM_THROWS_PTR_(statement, type, GTEST_FAIL)

#define QM_THROWS_PTR_(statement, type, fail)             \
    switch (0)                                            \
    case 0:                                               \
    default:                                              \
        if (::qmtest::Thrown<type>([&] { statement; })) { \
        } else                                            \
            fail() << "Expected: " #statement " throws " #type "*\n  Actual: it does not "
