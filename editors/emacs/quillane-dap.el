;;; quillane-dap.el --- Debug Quillane board programs from Emacs with dap-mode -*- lexical-binding: t -*-

;;; Commentary:
;; Registers the `quillane' debug provider of dap-mode (Debian: elpa-dap-mode), which runs
;; `quillane-run --dap', and a template for a C program.  Load it with
;;   (load "/path/to/quillane/editors/emacs/quillane-dap.el")
;; then M-x dap-debug and choose "Quillane C program" (edit :program and :rom first, or
;; register a template of your own with `dap-register-debug-template').

;;; Code:

(require 'dap-mode)

(defcustom quillane-dap-run "quillane-run"
  "The quillane-run executable that serves the debug adapter."
  :type 'string
  :group 'dap-mode)

(defun quillane-dap--populate (conf)
  "Complete CONF with the adapter's command line."
  (plist-put conf :dap-server-path (list quillane-dap-run "--dap"))
  (unless (plist-get conf :type) (plist-put conf :type "quillane"))
  conf)

(dap-register-debug-provider "quillane" #'quillane-dap--populate)

(dap-register-debug-template
 "Quillane C program"
 (list :type "quillane"
       :request "launch"
       :name "Quillane C program"
       :program (expand-file-name "prog.ihx")
       :rom (expand-file-name "build/tessik.hex")
       ;; :type names the provider, so the text typed at the monitor is :typeText.
       :typeText "g 8000\\n"
       :sourceDirs (vector (expand-file-name "."))))

(provide 'quillane-dap)
;;; quillane-dap.el ends here
