/* Valdrin's problem plugin interface.
 *
 * A plugin is a shared library that exports one function, valdrin_problem_entry, returning a
 * table that describes one problem: its word (what a configuration's problem element names),
 * a one-line description, the encodings it can evaluate, what it fixes in the parameter record,
 * whether its evaluation may run on several threads at once, and its evaluation, of one
 * individual at a time and optionally of a whole generation at once.
 *
 * Fitness is a cost everywhere: lower is better, and a run counts as solved when the best
 * fitness falls below the configuration's Error level.
 *
 * The table is versioned: VALDRIN_PROBLEM_ABI_VERSION changes whenever the layout of any type
 * below changes, and Valdrin refuses a plugin built against another version. Entries a plugin
 * does not provide are null. Usable from C and from C++.
 *
 * A configuration that names a library runs that library's code, like any program you start.
 */
#ifndef VALDRIN_PROBLEM_H
#define VALDRIN_PROBLEM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VALDRIN_PROBLEM_ABI_VERSION 1

/* The encodings, as bits of valdrin_problem.encodings. Bit strings and symbol strings give their
 * genes as whole numbers (codes); every encoding gives them as real numbers (values). */
#define VALDRIN_ENCODING_STRING 0x1u  /* symbols 0 .. arity-1 (permutations included); values = codes */
#define VALDRIN_ENCODING_INTEGER 0x2u /* bit strings: codes of gene_size bits; values = code * gene_precision + gene_offset */
#define VALDRIN_ENCODING_REAL 0x4u    /* one real number per gene; codes is null */

/* Which fields of valdrin_settings the problem fixes, as bits of valdrin_settings.fixed. */
#define VALDRIN_FIX_CHROMOSOME_LENGTH 0x1u
#define VALDRIN_FIX_GENE_SIZE 0x2u
#define VALDRIN_FIX_ARITY 0x4u
#define VALDRIN_FIX_GENE_OFFSET 0x8u
#define VALDRIN_FIX_GENE_PRECISION 0x10u

/* Settings of the experiment that the problem may fix (the fields whose bit is set in `fixed`
 * replace the configuration's values, as the built-in problems do: OneMax sets a gene size of 1). */
typedef struct valdrin_settings {
    unsigned fixed;          /* VALDRIN_FIX_* bits */
    int chromosome_length;   /* genes per chromosome */
    int gene_size;           /* bits per gene of bit strings */
    int arity;               /* symbols of the string encoding's alphabet */
    double gene_offset;      /* bit strings: added to a gene's scaled code */
    double gene_precision;   /* bit strings: scale of a gene's code */
} valdrin_settings;

/* What a problem's state is created for: the experiment's settings after the problem fixed its
 * own, and the encoding of the individuals it will evaluate (one VALDRIN_ENCODING_* bit). */
typedef struct valdrin_context {
    unsigned encoding;
    valdrin_settings settings;
    const char *library_folder; /* the folder of the plugin's file, to find data files beside it */
} valdrin_context;

/* One individual: `length` genes. `codes` holds the genes of bit strings and symbol strings
 * (null for real vectors); `values` holds every encoding's genes as real numbers. Both are valid
 * only during the call that receives them. */
typedef struct valdrin_individual {
    int length;
    const int32_t *codes;
    const double *values;
} valdrin_individual;

typedef struct valdrin_problem {
    uint32_t abi_version;    /* VALDRIN_PROBLEM_ABI_VERSION */
    const char *word;        /* the problem element's word; must differ from every built-in problem */
    const char *description; /* one line, shown by --help */
    unsigned encodings;      /* VALDRIN_ENCODING_* bits: the encodings it can evaluate */
    valdrin_settings settings; /* what it fixes (fixed = 0: nothing) */
    int thread_safe;         /* nonzero: evaluate and evaluate_batch may run on several threads at
                              * once, on one state; zero: one call at a time */
    int never_below_zero;    /* nonzero: no fitness is below 0 (an Error level of 0 or below then
                              * solves nothing, and the configuration check says so) */
    int codes_only;          /* nonzero: the plugin reads only `codes` of bit strings and symbol
                              * strings, whose `values` are then null (Valdrin spares computing
                              * them); real vectors always come as values */

    /* Creates the problem's state for one experiment; null entry: the state is null. Returns
     * null to refuse (then error_message(null) may say why). */
    void *(*create)(const valdrin_context *context);
    /* Destroys what create returned. May be null. */
    void (*destroy)(void *state);
    /* Required. Stores the individual's fitness; returns 0, or nonzero when it cannot evaluate
     * it (the experiment then ends with error_message's text). */
    int (*evaluate)(void *state, const valdrin_individual *individual, double *fitness);
    /* May be null. Evaluates `count` individuals at once (a generation, or a thread's share of
     * it), storing fitness[i] for individuals[i]; returns 0 or nonzero as evaluate does. */
    int (*evaluate_batch)(void *state, const valdrin_individual *individuals, size_t count, double *fitness);
    /* May be null. Why the last call failed (state may be null after a failed create). */
    const char *(*error_message)(void *state);
} valdrin_problem;

/* The one function a plugin exports. */
typedef const valdrin_problem *(*valdrin_problem_entry_function)(void);
#define VALDRIN_PROBLEM_ENTRY "valdrin_problem_entry"

#if defined(__GNUC__)
#define VALDRIN_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define VALDRIN_PLUGIN_EXPORT
#endif

#ifdef __cplusplus
}
#endif

#endif /* VALDRIN_PROBLEM_H */
