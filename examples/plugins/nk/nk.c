/* An NK landscape: a problem with a state of its own, made once per experiment from the
 * experiment's settings and a file beside the library, and an evaluation that only reads that
 * state, so that several threads may evaluate at once (thread_safe = 1).
 *
 * The chromosome is N bits (N = Chromosome length; the plugin sets Gene size 1). Bit i contributes
 * f_i(x_i, x_i+1, ..., x_i+K), neighbours taken cyclically, a number in [0, 1) looked up in a
 * table of 2^(K+1) entries of its own. The cost is 1 - the mean contribution: lower is better,
 * never 0 or below.
 *
 * nk.txt, beside the library, holds two whole numbers: K (0 to 20, below N) and the landscape's
 * seed. The tables come from the plugin's own generator (splitmix64) started at that seed: the
 * same nk.txt and N give the same landscape on every machine, whatever Valdrin's seed. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <valdrin/problem.h>

typedef struct {
    int n, k;
    double *table; /* n rows of 2^(k+1) contributions */
} landscape;

static char refusal[4608]; /* why create refused: written only there, before any evaluation */

static uint64_t splitmix64(uint64_t *x) {
    uint64_t z = (*x += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

static void *create(const valdrin_context *context) {
    char path[4096];
    snprintf(path, sizeof path, "%s/nk.txt", context->library_folder);
    FILE *file = fopen(path, "r");
    if (file == NULL) {
        snprintf(refusal, sizeof refusal, "%s cannot be read (%s): it holds K and the landscape's seed, e.g. \"4 1\"",
                 path, strerror(errno));
        return NULL;
    }
    int k = -1;
    unsigned long long seed = 0;
    char extra;
    const int got = fscanf(file, "%d %llu %c", &k, &seed, &extra);
    fclose(file);
    const int n = context->settings.chromosome_length;
    if (got != 2 || k < 0 || k > 20 || k >= n) {
        snprintf(refusal, sizeof refusal, "%s must hold two whole numbers, K (0 to 20, below the chromosome length %d) "
                 "and the landscape's seed", path, n);
        return NULL;
    }
    const size_t entries = (size_t)1 << (k + 1);
    landscape *state = malloc(sizeof *state);
    double *table = malloc((size_t)n * entries * sizeof(double));
    if (state == NULL || table == NULL) {
        free(state);
        free(table);
        snprintf(refusal, sizeof refusal, "no memory for %d x %zu table entries", n, entries);
        return NULL;
    }
    *state = (landscape){.n = n, .k = k, .table = table};
    uint64_t x = seed;
    for (size_t i = 0; i < (size_t)n * entries; ++i) state->table[i] = (double)(splitmix64(&x) >> 11) * 0x1.0p-53;
    return state;
}

static void destroy(void *opaque) {
    landscape *state = opaque;
    free(state->table);
    free(state);
}

static const char *error_message(void *state) {
    return state == NULL ? refusal : "an individual's length differs from the chromosome length the landscape was made for";
}

static int evaluate(void *opaque, const valdrin_individual *individual, double *fitness) {
    const landscape *state = opaque;
    const int n = state->n, k = state->k;
    if (individual->length != n) return 1;
    const size_t entries = (size_t)1 << (k + 1);
    const int32_t *x = individual->codes;
    /* The window x_i .. x_i+K as a (K+1)-bit number, x_i its highest bit: shifted along by one bit
     * per locus. */
    size_t window = 0;
    for (int j = 0; j < k; ++j) window = (window << 1) | (size_t)(x[j] != 0);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const int last = i + k < n ? i + k : i + k - n;
        window = ((window << 1) | (size_t)(x[last] != 0)) & (entries - 1);
        sum += state->table[(size_t)i * entries + window];
    }
    *fitness = 1.0 - sum / n;
    return 0;
}

static const valdrin_problem problem = {
    .abi_version = VALDRIN_PROBLEM_ABI_VERSION,
    .word = "NK-landscape",
    .description = "NK landscape over N = Chromosome length bits, K and seed from nk.txt beside the library; 1 - mean contribution",
    .encodings = VALDRIN_ENCODING_INTEGER,
    .settings = {.fixed = VALDRIN_FIX_GENE_SIZE | VALDRIN_FIX_GENE_OFFSET | VALDRIN_FIX_GENE_PRECISION,
                 .gene_size = 1,
                 .gene_offset = 0.0,
                 .gene_precision = 1.0},
    .thread_safe = 1,
    .never_below_zero = 1,
    .create = create,
    .destroy = destroy,
    .evaluate = evaluate,
    .error_message = error_message,
};

VALDRIN_PLUGIN_EXPORT const valdrin_problem *valdrin_problem_entry(void) { return &problem; }
