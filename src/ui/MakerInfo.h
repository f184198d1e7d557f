// The maker's own values shown in the about box, kept in this one place.
#pragma once

namespace plexor::maker {

inline constexpr const char* kName = "Plexor Project";
inline constexpr const char* kRights = "Copyright (C) 2024-2025 Plexor Project";
inline constexpr const char* kWebAddress = "https://plexor.example.org/";
inline constexpr const char* kMailAddress = "support@plexor.example.org";

}  // namespace plexor::maker
