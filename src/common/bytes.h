#pragma once
// Raw bytes travel in std::string, as the JSON and socket code does.
#include <string>

using Bytes = std::string;
