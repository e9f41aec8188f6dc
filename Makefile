# The two entry points; the scripts under scripts/ do the work.
.PHONY: demo test
demo:
	scripts/demo.sh
test:
	scripts/test.sh
