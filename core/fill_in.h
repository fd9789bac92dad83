// Texts with places to fill: %1 to %9 take the arguments in order, %% is a
// percent sign; a place without an argument stays as it is.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

std::u16string FillIn(const std::u16string& pattern, std::initializer_list<std::u16string> args);
// The decimal digits of n.
std::u16string DecimalText(uint64_t n);
