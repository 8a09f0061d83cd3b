# quillmere_settings: the one INTERFACE target that every target of the project links.
# It carries the language level, the warnings and the sanitizer flags, so that a preset
# changes them for everything at once.

add_library(quillmere_settings INTERFACE)
target_compile_features(quillmere_settings INTERFACE cxx_std_20)

target_compile_options(quillmere_settings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
if(QUILLMERE_WERROR)
  target_compile_options(quillmere_settings INTERFACE -Werror)
endif()

if(QUILLMERE_SANITIZE)
  set(_flags -fsanitize=${QUILLMERE_SANITIZE} -fno-omit-frame-pointer -g)
  if(QUILLMERE_SANITIZE MATCHES "undefined")
    list(APPEND _flags -fno-sanitize-recover=undefined)
  endif()
  target_compile_options(quillmere_settings INTERFACE ${_flags})
  target_link_options(quillmere_settings INTERFACE ${_flags})
endif()
