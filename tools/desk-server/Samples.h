#pragma once
// The sample files the demo desk offers for download under "/desk-file/<id>": one ordinary file,
// one a byte over what the shell accepts, and one script, which the shell must only reveal.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// The list the page shows: id, name, size and what to expect, for "/demo/samples.json".
nlohmann::json sampleList();

// The bytes of the sample with that id (32 hexadecimal digits), or nothing.
std::optional<std::string> sampleBody(const std::string& id);
