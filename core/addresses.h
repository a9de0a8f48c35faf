// The maker's addresses, in one place. The maker's own are not known yet, so they stand under a
// reserved placeholder domain until then.
#pragma once

namespace app {

inline constexpr const char* kSupportEmail = "support@veldmark.example";
inline constexpr const char* kHomePage = "https://www.veldmark.example/";

// The database engine vendor's download pages: the 2010 engine, then the 2016 one.
inline constexpr const char* kEngine2010Download =
    "https://www.microsoft.com/en-us/download/details.aspx?id=13255";
inline constexpr const char* kEngine2016Download =
    "https://www.microsoft.com/en-us/download/details.aspx?id=54920";

}  // namespace app
