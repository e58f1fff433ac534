/* Plugins that go wrong in the ways the loader and the runs must handle, one per build variant:
 * TEST_PLUGIN_OLD_ABI (another interface version), TEST_PLUGIN_CLASH (a built-in problem's word),
 * TEST_PLUGIN_FAULTY (OneMax that fails once it has evaluated VALDRIN_TEST_FAULT_AFTER
 * individuals: VALDRIN_TEST_FAULT=nan gives NaN, =error reports an error, =refuse refuses to
 * start). */
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <valdrin/problem.h>

typedef struct {
    long evaluated;
    long after;
    const char *fault;
} faulty_state;

static char refusal[] = "no licence for this problem";

static void *create(const valdrin_context *context) {
    (void)context;
    const char *fault = getenv("VALDRIN_TEST_FAULT");
    if (fault != NULL && strcmp(fault, "refuse") == 0) return NULL;
    faulty_state *state = calloc(1, sizeof *state);
    const char *after = getenv("VALDRIN_TEST_FAULT_AFTER");
    state->after = after != NULL ? atol(after) : -1;
    state->fault = fault != NULL ? fault : "";
    return state;
}

static void destroy(void *state) { free(state); }

static const char *message(void *state) { return state == NULL ? refusal : "the model diverged"; }

static int evaluate(void *opaque, const valdrin_individual *individual, double *fitness) {
    faulty_state *state = opaque;
    long long sum = 0;
    for (int i = 0; i < individual->length; ++i) sum += individual->codes[i];
    *fitness = individual->length - (double)sum;
    if (state->after >= 0 && state->evaluated++ >= state->after) {
        if (strcmp(state->fault, "nan") == 0) *fitness = NAN;
        if (strcmp(state->fault, "error") == 0) return 7;
    }
    return 0;
}

static const valdrin_problem problem = {
#ifdef TEST_PLUGIN_OLD_ABI
    .abi_version = VALDRIN_PROBLEM_ABI_VERSION + 1,
#else
    .abi_version = VALDRIN_PROBLEM_ABI_VERSION,
#endif
#ifdef TEST_PLUGIN_CLASH
    .word = "Sphere",
#else
    .word = "Faulty",
#endif
    .description = "OneMax that fails on demand",
    .encodings = VALDRIN_ENCODING_INTEGER,
    .settings = {.fixed = VALDRIN_FIX_GENE_SIZE | VALDRIN_FIX_GENE_OFFSET | VALDRIN_FIX_GENE_PRECISION,
                 .gene_size = 1,
                 .gene_offset = 0.0,
                 .gene_precision = 1.0},
    .create = create,
    .destroy = destroy,
    .evaluate = evaluate,
    .error_message = message,
};

VALDRIN_PLUGIN_EXPORT const valdrin_problem *valdrin_problem_entry(void) { return &problem; }
