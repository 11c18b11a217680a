#pragma once
// The release signing operations behind the desk-sign command: a new P-256 key, and update
// manifests signed over the message the shell checks. Every operation reports failure by an
// empty result and a reason in `error`.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace desksign {

struct PublicKeyHex {
  std::string x;  // 64 lower-case hexadecimal digits, big-endian
  std::string y;
};

// Writes a new private key (PEM) to a file that must not exist yet, readable by the user only.
std::optional<PublicKeyHex> generateKeyFile(const std::filesystem::path& keyFile, std::string& error);

// The public half of a private key file.
std::optional<PublicKeyHex> publicKeyOf(const std::filesystem::path& keyFile, std::string& error);

// r||s as 128 lower-case hexadecimal digits over SHA-256(message).
std::optional<std::string> signMessage(const std::filesystem::path& keyFile, std::string_view message,
                                       std::string& error);

// True for "1", "1.4.0", "2.10": digits and single dots, each number within 32 bits.
bool isDottedNumbers(std::string_view version);

// "desk-update\n" version "\n" name "\n" size "\n" sha256.
std::string updateMessage(std::string_view version, std::string_view name, std::uint64_t size,
                          std::string_view sha256);

// SHA-256 of a file as 64 lower-case hexadecimal digits.
std::optional<std::string> fileSha256(const std::filesystem::path& file, std::string& error);

// The manifest JSON (compact, keys sorted: file, sha256, sig, size, version) for an installer;
// `name` is the file name the server offers it under.
std::optional<std::string> makeManifest(const std::filesystem::path& keyFile, const std::string& version,
                                        const std::filesystem::path& installer, const std::string& name,
                                        std::string& error);

}  // namespace desksign
