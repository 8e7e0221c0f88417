#include "support/machine_test.h"

#include <cctype>

void MachineTest::SetUp()
{
    fake::Reset();
}

void MachineTest::TearDown()
{
    for (const std::string& problem : fake::Machine().problems) {
        ADD_FAILURE() << "misuse of the platform: " << problem;
    }
}

::testing::AssertionResult EverythingReleased()
{
    const fake::MachineState& m = fake::Machine();
    if (m.OpenHandles() == 0 && m.LiveBuffers() == 0 && m.LiveViews() == 0) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult result = ::testing::AssertionFailure();
    for (const std::string& name : m.OpenHandleNames()) {
        result << "still open: " << name << "; ";
    }
    result << m.LiveBuffers() << " buffer(s) not freed, " << m.LiveViews() << " view(s) mapped";
    return result;
}

std::string RowName(const char* title)
{
    std::string name;
    for (const char* p = title; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalnum(c) != 0) {
            name += static_cast<char>(c);
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    while (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    return name;
}
