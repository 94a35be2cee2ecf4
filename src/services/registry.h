// Per-user key store with registry semantics, in a file under
// $XDG_CONFIG_HOME/nubrix/. Keys are paths of pieces joined by "\"; values
// are strings or 32-bit numbers; a key with subkeys cannot be deleted.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace nx {

enum class reg_root { classes_root, current_user };

// The store file ($XDG_CONFIG_HOME/nubrix/registry).
std::string reg_store_path();

// Pieces are joined with "\" after every non-empty piece but the last;
// empty pieces and trailing separators name no key of their own.
// reg_read gives default_value when the key or value is missing (a number
// reads as its decimal text); reg_write creates missing keys and writes a
// string; reg_delete_key opens first\second and deletes its subkey, which
// must have no subkeys.

std::string reg_read(reg_root root, const std::string& first, const std::string& middle,
                     const std::string& last, const std::string& value_name,
                     const std::string& default_value);
bool reg_write(reg_root root, const std::string& first, const std::string& middle,
               const std::string& last, const std::string& value_name, const std::string& value);
bool reg_delete_key(reg_root root, const std::string& first, const std::string& second,
                    const std::string& subkey);

// Lower-level access for the shell and Office integration; key is a full
// "\"-joined path.
enum class reg_disposition { created_new_key, opened_existing_key };
// Creates the key (and missing parents) or opens it; nullopt on failure.
std::optional<reg_disposition> reg_create_key(reg_root root, const std::string& key);
bool reg_key_exists(reg_root root, const std::string& key);
bool reg_set_string(reg_root root, const std::string& key, const std::string& name,
                    const std::string& value);
bool reg_set_dword(reg_root root, const std::string& key, const std::string& name, uint32_t value);
std::optional<std::string> reg_get_string(reg_root root, const std::string& key, const std::string& name);
std::optional<uint32_t> reg_get_dword(reg_root root, const std::string& key, const std::string& name);
// Fails when the key has subkeys or does not exist.
bool reg_delete(reg_root root, const std::string& key);

}  // namespace nx
