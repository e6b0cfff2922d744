// The scripts the browser engine adds to every new document of a page. Their text is kept in
// PageScript.js and PageBridge.js beside this header and compiled in at build time.
//
// The page script runs in a world of its own and defines "tavro": read() answers the page as the
// web surface's reading (elements with ids that stay the same for a DOM node while the page
// lives, their frames in CSS pixels relative to the viewport, the location, title and visible
// text), perform(action) carries out an action or asks for trusted input, and activity() counts
// the page's DOM changes so that a waiter can tell when the page has gone quiet. Open shadow roots
// and frames of the page's own origin are read; closed shadow roots, frames of other origins
// (another site's content, a captcha's insides), canvas drawings and elements hidden from
// assistive technology (aria-hidden) are not.
//
// The bridge script runs in the page's own world before the page's scripts. It notes which
// elements get click listeners and tells the page script when asked, through DOM events.
#pragma once

#include <string_view>

namespace web {

std::string_view pageScript();
std::string_view bridgeScript();

}  // namespace web
