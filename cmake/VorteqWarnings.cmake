# Warnings as errors for every target of the project; widget code may relax sign conversion for qsizetype.
set(VORTEQ_WARNINGS
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
    -Woverloaded-virtual -Wold-style-cast -Wformat=2 -Wimplicit-fallthrough -Werror)

# GCC 12 at -O3 reports overlapping copies inside std::string's own assignment from a literal
# (GCC bug 105329): a false alarm in the standard library, not in our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND VORTEQ_WARNINGS -Wno-restrict)
endif()

function(vorteq_warnings target)
    target_compile_options(${target} PRIVATE ${VORTEQ_WARNINGS})
endfunction()

function(vorteq_widget_warnings target)
    target_compile_options(${target} PRIVATE ${VORTEQ_WARNINGS} -Wno-sign-conversion)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()
