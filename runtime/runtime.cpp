#include "runtime.h"

#include <cfenv>
#include <cstdlib>

#include "core/collector.h"
#include "core/errors.h"
#include "evaluator/compiled.h"
#include "init_steps.h"
#include "core/memory.h"
#include "core/output.h"
#include "platform/fatal.h"
#include "platform/platform.h"
#include "core/stack.h"

namespace tav::runtime {

bool collecting_words = false;
NodeId root_node = 0;
uint32_t boot_root_index = 0;

namespace runtime_detail {
int argc = 0;
char** argv = nullptr;
constexpr uint32_t ROOT_CELLS = 9767;
}  // namespace runtime_detail

int argument_count() { return runtime_detail::argc; }
char** argument_vector() { return runtime_detail::argv; }

void process_setup(int argc, char** argv) {
  runtime_detail::argc = argc;
  runtime_detail::argv = argv;
  // Round to nearest, no traps: the default environment the number code relies on.
  std::fesetenv(FE_DFL_ENV);
  fatal::install_handlers();
}

Cell* root_cell(uint32_t i) { return node_buffer(root_node)->cells() + i; }

Cell* root_append(const Cell* c) {
  SeriesBuffer* buf = node_buffer(root_node);
  // The root block is never reallocated: cells handed out stay where they are.
  if (buf->room() < sizeof(Cell)) error::raise(ERR_INTERNAL, "no-memory");
  Cell* slot = buf->cell_tail();
  buf->tail += sizeof(Cell);
  *slot = *c;
  return slot;
}

namespace runtime_detail {
Cell* append_block_cell(NodeId n) {
  Cell c = make_cell(TYPE_BLOCK, 0, n);
  return root_append(&c);
}
}  // namespace runtime_detail

void init() {
  collecting_words = true;
  init_steps::output_hooks();
  init_steps::platform();
  init_steps::random_generator();
  memory_manager::init();
  init_steps::handle_tables();
  // The type table and action rows are static arrays; registration fills them.
  init_steps::register_datatypes();
  init_steps::image_codecs();
  init_steps::actions_table();
  alloc::new_node_frame(NODES_PER_FRAME);
  alloc::new_series_frame();

  root_node = alloc::new_heap_series(runtime_detail::ROOT_CELLS, sizeof(Cell), 0);
  stack::arg_stack_node = alloc::new_heap_series(ARG_STACK_CELLS + LENT_CELLS, sizeof(Cell), 0);
  stack::frame_stack_node = alloc::new_heap_series((FRAME_STACK_FRAMES + LENT_FRAMES) * sizeof(CallFrame), 1, 0);
  runtime_detail::append_block_cell(stack::arg_stack_node);
  runtime_detail::append_block_cell(stack::frame_stack_node);

  init_steps::global_context();
  init_steps::case_tables();
  init_steps::symbol_table();
  init_steps::datatype_words();
  init_steps::predefined_words();
  init_steps::natives_table();
  init_steps::parse_engine();
  init_steps::ownership_table();
  init_steps::checksum_words();
  init_steps::compression_words();
  init_steps::call_output();
  stack::init();
  init_steps::scanner_tables();
  {
    bool was = collector::enabled;
    collector::enabled = false;
    boot_root_index = node_buffer(root_node)->count();
    init_steps::boot_image();
    collector::enabled = was;
  }
  init_steps::interpreter();
  init_steps::handle_slots();
  collector::init();
}

void cleanup() {
  compiled::forget_all();
  memory_manager::release_all();
}

}  // namespace tav::runtime

namespace tav::init_steps {
void output_hooks() { hook::init(); }
void platform() { tav::platform::init(); }
}  // namespace tav::init_steps

namespace tav::runtime {

int run_on_large_stack(int (*fn)(void*), void* arg) {
  return tav::platform::run_on_thread(size_t(512) << 20, fn, arg);
}

}  // namespace tav::runtime
