#pragma once

#include <memory>

namespace hestio::platform {

class ViewController;

/// A tab layout that shows every control and both table styles with
/// household-like content: the toolkit's showcase (`hestio --gallery`) and
/// the screen its pictures in docs/images are taken from.
std::shared_ptr<ViewController> makeGalleryViewController();

}
