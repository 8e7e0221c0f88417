// The fixture every host test starts from: a fresh machine, and at the end
// the check that the launcher used the platform correctly.
#pragma once

#include "double/machine.h"

#include <gtest/gtest.h>

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Every handle opened was closed, every view unmapped, the copy buffer freed.
::testing::AssertionResult EverythingReleased();

// A test name made of a table row's title: letters and digits, the rest as
// single underscores.
std::string RowName(const char* title);
