// SPDX-License-Identifier: MIT
#include "lptport/completion.h"

#include <CLI/CLI.hpp>

namespace lpt {

namespace {

void collect(const CLI::App& app, const std::string& path, std::vector<CommandWords>& out) {
    CommandWords words;
    words.path = path;
    for (const CLI::Option* opt : app.get_options()) {
        if (opt->get_positional()) {
            words.positionals.push_back(opt->get_type_name());
            continue;
        }
        const std::vector<std::string> names = opt->get_lnames(), shorts = opt->get_snames();
        for (const std::string& s : shorts)
            words.options.push_back("-" + s);
        for (const std::string& l : names)
            words.options.push_back("--" + l);
        if (opt->get_expected_max() > 0 && !words.options.empty()) {
            const std::string& name = words.options.back();
            words.valued.push_back(name);
            if (opt->get_type_name() == "FILE")
                words.fileOptions.push_back(name);
        }
    }
    const auto subs = app.get_subcommands([](const CLI::App*) { return true; });
    for (const CLI::App* sub : subs)
        words.subcommands.push_back(sub->get_name());
    out.push_back(words);
    for (const CLI::App* sub : subs)
        collect(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
}

std::string joined(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words)
        s += (s.empty() ? "" : " ") + w;
    return s;
}

} // namespace

std::vector<CommandWords> commandWords(const CLI::App& app) {
    std::vector<CommandWords> out;
    collect(app, "", out);
    return out;
}

std::string bashCompletion(const std::vector<CommandWords>& commands) {
    // One case per command path: its subcommands, options, valued and file
    // options, and positional types. The shell function walks the words typed
    // so far to find the command and how many positionals it has, then offers
    // what fits the word being completed.
    std::string table;
    for (const CommandWords& c : commands) {
        table += "        '" + c.path + "') subs='" + joined(c.subcommands) + "' opts='" +
                 joined(c.options) + "' valued='" + joined(c.valued) + "' files='" +
                 joined(c.fileOptions) + "' kinds='" + joined(c.positionals) + "' ;;\n";
    }
    return R"(# bash completion for lptport, made by 'lptport --bash-completion' from its
# command-line declarations.
_lptport_words() {
    subs= opts= valued= files= kinds=
    case "$1" in
)" + table +
           R"(    esac
}

_lptport() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local path= npos=0 i w subs opts valued files kinds
    _lptport_words ''
    for ((i = 1; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        if [[ " $valued " == *" $w "* ]]; then
            ((i++))
        elif [[ " $subs " == *" $w "* ]]; then
            path=${path:+$path }$w npos=0
            _lptport_words "$path"
        elif [[ ( $path == out || $path == in ) && ( $w == out || $w == in ) ]]; then
            path=$w npos=0 # out and in follow one another
            _lptport_words "$path"
        elif [[ $w != -* ]]; then
            ((npos++))
        fi
    done
    if [[ " $files " == *" $prev "* ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    fi
    if [[ " $valued " == *" $prev "* ]]; then
        COMPREPLY=()
        return
    fi
    local kind= words= n
    set -- $kinds
    n=$#
    if ((npos < n)); then
        shift $npos
        kind=$1
    elif ((n > 0)) && [[ $path == "sim pins" ]]; then
        kind=$1 # pins takes any number
    fi
    if [[ $cur == -* ]]; then
        words=$opts
    elif [[ -n $subs ]]; then
        words="$subs $opts"
    elif [[ $kind == ADDR ]]; then
        words="0x378 0x379 0x37A"
    elif [[ $kind == OUTPUT ]]; then
        words="0x378 0x37A"
    elif [[ $kind == FILE ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    elif [[ $kind == *'|'* && $kind != *=* ]]; then
        words=${kind//|/ }
    elif [[ $path == out || $path == in ]] && ((npos >= n)); then
        words="out in"
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -F _lptport lptport
)";
}

} // namespace lpt
