#include "stack_offset_call.h"

#if defined(__i386__)

namespace {

using Word = std::uint32_t;

Word word(const void* pointer) {
  return reinterpret_cast<Word>(pointer);
}

}  // namespace

// Calls `function`, a cdecl function of six 32-bit arguments, with the stack pointer `offset`
// bytes below a 16-byte boundary at the call. Written by hand because the compiler keeps every
// call site aligned.
extern "C" Word callWithStackOffBy(Word offset, const void* function, const Word* arguments);
__asm__(R"(
  .text
  .globl _callWithStackOffBy
_callWithStackOffBy:
  pushl %ebp
  movl %esp, %ebp
  andl $-16, %esp
  # 8 bytes of padding and the 24 of the arguments put the call on the boundary; the offset
  # moves it off.
  subl $8, %esp
  subl 8(%ebp), %esp
  movl 16(%ebp), %eax
  pushl 20(%eax)
  pushl 16(%eax)
  pushl 12(%eax)
  pushl 8(%eax)
  pushl 4(%eax)
  pushl (%eax)
  call *12(%ebp)
  movl %ebp, %esp
  popl %ebp
  ret
)");

std::int32_t processFromStackOffBy(std::uint32_t offset, EffectModule* module,
                                   std::int16_t* samples, std::int32_t frames,
                                   std::int32_t channels) {
  const Word arguments[] = {
      word(module), word(samples), static_cast<Word>(frames), 16, static_cast<Word>(channels),
      44100};
  return static_cast<std::int32_t>(
      callWithStackOffBy(offset, reinterpret_cast<const void*>(module->process), arguments));
}

std::int32_t mixNoiseOnFromStackOffBy(std::uint32_t offset, MixerPath path,
                                      const MixerSettings& settings, std::int32_t position,
                                      std::int16_t* values, std::int64_t count) {
  // The 64-bit count goes as two words, low first.
  const Word arguments[] = {static_cast<Word>(path),     word(&settings),
                            static_cast<Word>(position), word(values),
                            static_cast<Word>(count),    static_cast<Word>(count >> 32)};
  return static_cast<std::int32_t>(
      callWithStackOffBy(offset, reinterpret_cast<const void*>(&mixNoiseOn), arguments));
}

#else

std::int32_t processFromStackOffBy(std::uint32_t, EffectModule* module, std::int16_t* samples,
                                   std::int32_t frames, std::int32_t channels) {
  return module->process(module, samples, frames, 16, channels, 44100);
}

std::int32_t mixNoiseOnFromStackOffBy(std::uint32_t, MixerPath path, const MixerSettings& settings,
                                      std::int32_t position, std::int16_t* values,
                                      std::int64_t count) {
  return mixNoiseOn(path, settings, position, values, count);
}

#endif
