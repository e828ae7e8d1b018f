# fish completion for calvera: video files and list files (.qfl) open in the window

complete -c calvera -s h -l help -d 'Show the help'
complete -c calvera -l version -d 'Show the version'
