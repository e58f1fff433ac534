/* A 0/1 knapsack read from a file beside the library: a problem with data of its own, that
 * refuses, with a message, a file it cannot read and settings that do not fit the data, and that
 * also evaluates a generation at once (evaluate_batch).
 *
 * knapsack.txt holds numbers (0 or more; '#' starts a comment that runs to the end of the line):
 * the capacity, then each item's weight and value. Gene i = 1 takes item i, so the Chromosome
 * length must be the number of items (Gene size is set to 1). The cost is the value left out:
 * the total value of all items less the value taken, when the weight taken is within the capacity;
 * otherwise the total value plus the weight over the capacity, so that every choice that is too
 * heavy costs more than every choice that fits, and of two too heavy the lighter costs less. */
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <math.h>

#include <valdrin/problem.h>

typedef struct {
    int items;
    double capacity, total_value;
    double *weight, *value;
} knapsack;

static char refusal[4608]; /* why create refused: written only there, before any evaluation */

/* The file's next number, skipping blanks and comments: 1 read, 0 at the end, -1 for text that is
 * not a number. */
static int next_number(FILE *file, double *number) {
    int c;
    while ((c = fgetc(file)) != EOF) {
        if (c == '#') {
            while ((c = fgetc(file)) != EOF && c != '\n') {}
        } else if (!isspace(c)) {
            ungetc(c, file);
            return fscanf(file, "%lf", number) == 1 && isfinite(*number) && *number >= 0 ? 1 : -1;
        }
    }
    return 0;
}

static void destroy(void *opaque) {
    knapsack *state = opaque;
    free(state->weight);
    free(state->value);
    free(state);
}

static void *create(const valdrin_context *context) {
    char path[4096];
    snprintf(path, sizeof path, "%s/knapsack.txt", context->library_folder);
    FILE *file = fopen(path, "r");
    if (file == NULL) {
        snprintf(refusal, sizeof refusal, "%s cannot be read: %s", path, strerror(errno));
        return NULL;
    }
    knapsack *state = calloc(1, sizeof *state);
    double *numbers = NULL, number;
    size_t count = 0, room = 0;
    int status = 0;
    while (state != NULL && (status = next_number(file, &number)) == 1) {
        if (count == room) {
            room = room == 0 ? 64 : 2 * room;
            double *grown = realloc(numbers, room * sizeof *numbers);
            if (grown == NULL) break;
            numbers = grown;
        }
        numbers[count++] = number;
    }
    fclose(file);
    const int items = (int)(count / 2);
    if (state == NULL || status == 1) {
        snprintf(refusal, sizeof refusal, "no memory for the numbers of %s", path);
    } else if (status == -1) {
        snprintf(refusal, sizeof refusal, "%s: entry %zu is not a number of 0 or more", path, count + 1);
    } else if (count < 3 || count % 2 == 0) {
        snprintf(refusal, sizeof refusal, "%s must hold the capacity, then a weight and a value for each item "
                 "(%zu numbers given)", path, count);
    } else if (items != context->settings.chromosome_length) {
        snprintf(refusal, sizeof refusal, "%s lists %d items: set Chromosome length to %d (it is %d)", path, items,
                 items, context->settings.chromosome_length);
    } else {
        state->items = items;
        state->capacity = numbers[0];
        state->weight = malloc(items * sizeof(double));
        state->value = malloc(items * sizeof(double));
        if (state->weight != NULL && state->value != NULL) {
            for (int i = 0; i < items; ++i) {
                state->weight[i] = numbers[1 + 2 * i];
                state->value[i] = numbers[2 + 2 * i];
                state->total_value += state->value[i];
            }
            free(numbers);
            return state;
        }
        snprintf(refusal, sizeof refusal, "no memory for %d items", items);
    }
    free(numbers);
    if (state != NULL) destroy(state);
    return NULL;
}

static const char *error_message(void *state) {
    return state == NULL ? refusal : "an individual's length differs from the number of items";
}

static int evaluate(void *opaque, const valdrin_individual *individual, double *fitness) {
    const knapsack *state = opaque;
    if (individual->length != state->items) return 1;
    double weight = 0.0, value = 0.0;
    for (int i = 0; i < state->items; ++i) {
        if (individual->codes[i] != 0) {
            weight += state->weight[i];
            value += state->value[i];
        }
    }
    *fitness = weight <= state->capacity ? state->total_value - value : state->total_value + (weight - state->capacity);
    return 0;
}

/* A generation at once. Here only a loop; a plugin that hands its work to another device or
 * process gains from seeing the whole generation. */
static int evaluate_batch(void *state, const valdrin_individual *individuals, size_t count, double *fitness) {
    for (size_t i = 0; i < count; ++i) {
        if (evaluate(state, &individuals[i], &fitness[i]) != 0) return 1;
    }
    return 0;
}

static const valdrin_problem problem = {
    .abi_version = VALDRIN_PROBLEM_ABI_VERSION,
    .word = "Knapsack",
    .description = "0/1 knapsack from knapsack.txt beside the library: the value left out, too heavy costing more",
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
    .evaluate_batch = evaluate_batch,
    .error_message = error_message,
};

VALDRIN_PLUGIN_EXPORT const valdrin_problem *valdrin_problem_entry(void) { return &problem; }
