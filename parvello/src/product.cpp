#include "parvello/product.hpp"

namespace parvello {

std::string_view maker_host() noexcept { return PVO_MAKER_HOST; }

}  // namespace parvello
