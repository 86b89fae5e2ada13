// Registers every datatype in the fixed order: a parent always precedes its children, since
// a child's action row is a copy of its parent's at registration time.
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/date.h"
#include "datatypes/email.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/handle.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/file.h"
#include "datatypes/series.h"
#include "datatypes/error.h"
#include "datatypes/event.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/port.h"
#include "datatypes/path.h"
#include "datatypes/point.h"
#include "datatypes/ref.h"
#include "datatypes/routine.h"
#include "datatypes/simple.h"
#include "datatypes/string.h"
#include "datatypes/tag.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "datatypes/typeset.h"
#include "datatypes/url.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "core/context.h"
#include "init_steps.h"
#include "core/symbols.h"

namespace tav::init_steps {

void register_datatypes() {
  datatype_type::init();
  unset_type::init();
  none_type::init();
  logic_type::init();
  series_type::init();
  block_type::init();
  string_type::init();
  binary_type::init();
  integer::init();        // after binary!
  symbol::register_datatype();
  context::register_datatype();
  word_type::init();       // word!, lit-word!, set-word!, get-word!, refinement!
  char_::init();          // after refinement!
  native_type::register_datatypes();   // native!, action!, op!
  path_type::init();      // path!, lit-path!, set-path!, get-path!
  function::register_datatype();       // after path!
  routine::register_datatype();        // after function!
  paren_type::init();     // after routine!
  issue_type::init();
  url_type::init();       // after issue!
  file_type::init();
  object_type::init();    // after file!
  bitset::init();         // after object!
  triple::init();         // after bitset!
  float_::init();         // after triple!
  typeset::init();
  error_type::init();     // after typeset!
  vector::init();         // after error!
  map::init();            // after vector!
  hash_block::init();     // after map!
  pair::init();           // after hash!
  percent::init();        // after pair!
  tuple::init();          // after percent!
  time_::init();          // after tuple!
  tag_type::init();       // after time!
  email_type::init();     // after tag!
  handle::init();         // after email!
  date::init();           // after handle!
  port_type::init();      // after date!
  money::init();          // after port!
  ref_type::init();       // after money!
  point::init();          // point2D!, point3D!, after ref!
  event::init();
}

}  // namespace tav::init_steps
