# fish completion for calvera-batch

# The catalogue's format indexes with their names, asked of the program being
# completed, with the --catalogue given on the line so far.
function __calvera_batch_formats
    set -l words (commandline -opc)
    set -l program $words[1]
    set -l arguments --formats
    set -l catalogue
    for i in (seq 2 (count $words))
        switch $words[$i]
            case '--catalogue=?*'
                set catalogue (string replace -- --catalogue= '' $words[$i])
            case --catalogue
                set -q words[(math $i + 1)]; and set catalogue $words[(math $i + 1)]
        end
    end
    test -n "$catalogue"; and set -a arguments --catalogue $catalogue
    command -q $program; or return
    $program $arguments 2>/dev/null | while read -l -d \t index name extension parameters origin
        string match -q 'unavailable*' -- $origin; and set name "$name (unavailable)"
        printf '%s\t%s\n' $index $name
    end
end

complete -c calvera-batch -s f -l format -x -a '(__calvera_batch_formats)' -d 'Format index for the files that follow'
complete -c calvera-batch -s o -l output -x -a '(__fish_complete_directories)' -d 'Output folder for the files that follow'
complete -c calvera-batch -l fit -x -d 'Make each output of the files that follow at most SIZE (0: no limit)'
complete -c calvera-batch -s n -l dry-run -d 'Print the ffmpeg command lines, run nothing'
complete -c calvera-batch -s s -l save-list -r -F -d 'Write the queue as a list file (.qfl), run nothing'
complete -c calvera-batch -s l -l formats -d 'Print the catalogue'
complete -c calvera-batch -s j -l jobs -x -a '(seq 0 (nproc))' -d 'Items converted at once (0: one per core)'
complete -c calvera-batch -l journal -r -F -d 'Record every ended item; a later run skips what converted'
complete -c calvera-batch -l retry-failed -d 'With --journal: only the items that failed or were stopped'
complete -c calvera-batch -l shard -x -d 'Convert only slice K/N'
complete -c calvera-batch -l progress -x -a 'json lines' -d 'Progress on standard output'
complete -c calvera-batch -l catalogue -r -F -d 'Use this catalogue'
complete -c calvera-batch -l ffmpeg -r -F -d 'Use this ffmpeg'
complete -c calvera-batch -s q -l quiet -d 'Print less'
complete -c calvera-batch -s v -l verbose -d 'Print more'
complete -c calvera-batch -l files-from -r -F -d 'Queue the files named in FILE, one a line'
complete -c calvera-batch -l files0-from -r -F -d 'Queue the files named in FILE, NUL-separated'
complete -c calvera-batch -l verify -x -a 'none duration decode' -d 'Check every output after converting'
complete -c calvera-batch -l watch -x -a '(__fish_complete_directories)' -d 'Convert files as they appear in DIR'
complete -c calvera-batch -l new-only -d 'With --watch: leave the files already there'
complete -c calvera-batch -l skip-existing -d 'Skip items whose output is there already, whole'
complete -c calvera-batch -l skip-same -d 'Skip items whose input already has the format\'s container and codecs'
complete -c calvera-batch -l settle -x -d 'With --watch: seconds a file must stand unchanged'
complete -c calvera-batch -l exclude -x -d 'With --watch or -r: pass over names matching GLOB'
complete -c calvera-batch -s r -l recursive -x -a '(__fish_complete_directories)' -d 'Queue the video files in DIR and below, keeping its folders'
complete -c calvera-batch -l include -x -d 'With -r: take only names matching GLOB'
complete -c calvera-batch -l flat -d 'Outputs of -r and --watch straight into the output folder'
complete -c calvera-batch -s h -l help -d 'Show the help'
complete -c calvera-batch -l version -d 'Show the version'
