# The instruction tables are generated at build time from the committed sheet
# and our corrections, so the data stays the one source: nothing generated is
# committed, nothing can drift from it. Include this file and call
# kivo_isa_tables(<target>) for the target that builds sim/chip.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(KIVO_ISA_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KIVO_ISA_GEN_DIR ${CMAKE_CURRENT_BINARY_DIR}/isa_gen)
set(KIVO_ISA_OUTPUTS ${KIVO_ISA_GEN_DIR}/chip/isa/ops.inc ${KIVO_ISA_GEN_DIR}/chip/isa/table.inc
                     ${KIVO_ISA_GEN_DIR}/chip/isa/clocks.inc ${KIVO_ISA_GEN_DIR}/chip/isa/decode.inc)
add_custom_command(
    OUTPUT ${KIVO_ISA_OUTPUTS}
    COMMAND Python3::Interpreter ${KIVO_ISA_DIR}/isa_gen.py ${KIVO_ISA_DIR}/instructions-v35.tsv
            ${KIVO_ISA_DIR}/corrections.tsv ${KIVO_ISA_GEN_DIR}/chip/isa
    DEPENDS ${KIVO_ISA_DIR}/isa_gen.py ${KIVO_ISA_DIR}/instructions-v35.tsv ${KIVO_ISA_DIR}/corrections.tsv
    COMMENT "Generating the P2 instruction tables"
    VERBATIM)
add_custom_target(kivo_isa_tables DEPENDS ${KIVO_ISA_OUTPUTS})

function(kivo_isa_tables target)
    add_dependencies(${target} kivo_isa_tables)
    target_include_directories(${target} PUBLIC ${KIVO_ISA_GEN_DIR})
endfunction()
