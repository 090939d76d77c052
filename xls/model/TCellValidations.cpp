#include "xls/model/TCellValidations.h"

#include "xls/model/Errors.h"

namespace vorlix {

const TCellValidation& TCellValidations::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return *items_[static_cast<std::size_t>(index)];
}

}  // namespace vorlix
