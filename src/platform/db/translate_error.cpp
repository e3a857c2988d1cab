#include "platform/db/translate_error.h"

namespace dorvane::db {

TranslateError::TranslateError(const std::string& reason) : std::runtime_error(reason) {}

TranslateError::~TranslateError() = default;

}  // namespace dorvane::db
