#!/usr/bin/env bash
# A Slurm job array that converts the dumps listed in dumps.list (one path a
# line), each task a slice of the list. Submit with, for 8 tasks:
#   ls dumps/*.txt > dumps.list && mkdir -p out logs && sbatch --array=0-7 docs/slurm-array.sh
#SBATCH --job-name=zorqconvert
#SBATCH --cpus-per-task=2
#SBATCH --output=logs/%A_%a.jsonl
#SBATCH --error=logs/%A_%a.err
set -uo pipefail

list=${ZORQ_LIST:-dumps.list}
out=${ZORQ_OUT:-out}
mapfile -t dumps < "$list"

# Task k of n takes the k-th of n contiguous slices.
tasks=${SLURM_ARRAY_TASK_COUNT:?run as a job array}
task=$((SLURM_ARRAY_TASK_ID - ${SLURM_ARRAY_TASK_MIN:-0}))
size=$(((${#dumps[@]} + tasks - 1) / tasks))
slice=("${dumps[@]:task*size:size}")
((${#slice[@]} > 0)) || exit 0

# One JSON line per dump goes to the task's --output file; the exit status
# (0, or that of the first dump of the slice that did not finish) is the
# task's, as sacct shows it.
exec zorqconvert-cli --jobs "${SLURM_CPUS_PER_TASK:-1}" --json -o "$out" -- "${slice[@]}"
