// Addresses of the product on the web, shared by every place that sends the
// user there: the About page, the newer-release menu entry and the update
// server's base.
#pragma once

namespace Lumo::System {

// The product's home page.
inline constexpr wchar_t kHomePage[] = L"https://www.tarvolin.com/quelvar/";
// Where users write for help.
inline constexpr wchar_t kSupportMail[] = L"mailto:support@tarvolin.com";

}  // namespace Lumo::System
