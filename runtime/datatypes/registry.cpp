// Registers every datatype in the fixed order: a parent always precedes its children, since
// a child's action row is a copy of its parent's at registration time.
#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/series.h"
#include "datatypes/simple.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "context.h"
#include "init_steps.h"
#include "symbols.h"

namespace tav::init_steps {

void register_datatypes() {
  datatype_type::init();
  unset_type::init();
  none_type::init();
  logic_type::init();
  series_type::init();
  block_type::init();
  string_type::init();
  symbol::register_datatype();
  context::register_datatype();
  url_type::init();
  file_type::init();
}

}  // namespace tav::init_steps
