#pragma once
// The cipher modules the program binds, and the entry points each exports.

namespace quillmar {

inline constexpr const char* kTextModule = "TRV.DLL";
inline constexpr const char* kFileModule = "DES.DLL";
inline constexpr const char* kEncryptEntry = "ENCRYPTFUNC";
inline constexpr const char* kDecryptEntry = "DECRYPTFUNC";

} // namespace quillmar
