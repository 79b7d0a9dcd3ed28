# Settings shared by every target of the project.
add_library(tapisto_options INTERFACE)
target_compile_features(tapisto_options INTERFACE cxx_std_20)
# The one include root: every header is named from src/ ("platform/Files.h", "schedule/Settings.h").
target_include_directories(tapisto_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_compile_options(tapisto_options INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -pedantic>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra>)
# GCC 12's -Wrestrict reports false positives inside libstdc++'s std::string (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(tapisto_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
# An explicit encoding at every byte/text boundary is where CP932 bugs are caught.
target_compile_definitions(tapisto_options INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)
if(TAPISTO_WERROR)
    target_compile_options(tapisto_options INTERFACE -Werror)
endif()
if(TAPISTO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
