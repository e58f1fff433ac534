/* OneMax as a plugin: the chromosome length less the sum of the genes, which for one-bit genes is
 * the number of zero bits (0 for all ones). It gives the same costs as Valdrin's own Onemax. */
#include <valdrin/problem.h>

static int evaluate(void *state, const valdrin_individual *individual, double *fitness) {
    (void)state;
    long long sum = 0;
    for (int i = 0; i < individual->length; ++i) sum += individual->codes[i];
    *fitness = individual->length - (double)sum;
    return 0;
}

static const valdrin_problem problem = {
    .abi_version = VALDRIN_PROBLEM_ABI_VERSION,
    .word = "Onemax-plugin",
    .description = "number of zero bits, 0 for all ones (gene size set to 1), as a plugin",
    .encodings = VALDRIN_ENCODING_STRING | VALDRIN_ENCODING_INTEGER,
    .settings = {.fixed = VALDRIN_FIX_GENE_SIZE | VALDRIN_FIX_GENE_OFFSET | VALDRIN_FIX_GENE_PRECISION,
                 .gene_size = 1,
                 .gene_offset = 0.0,
                 .gene_precision = 1.0},
    .thread_safe = 1,
    .never_below_zero = 1,
    .codes_only = 1,
    .evaluate = evaluate,
};

VALDRIN_PLUGIN_EXPORT const valdrin_problem *valdrin_problem_entry(void) { return &problem; }
